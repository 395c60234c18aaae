// Words of the command line beyond the argument table: the type words' synonyms, an edit clause
// split as a shell would split it, and the suggestion for a word that is almost a known one.
#include <algorithm>
#include <vector>

#include "tools/cli/ToolArguments.h"

namespace {

// Optimal string alignment distance: insertions, deletions, substitutions and the swap of two
// neighbours count one each. The words are a command line's, a few dozen characters.
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::string_view WithoutDashes(std::string_view word) {
    return word.substr(std::min(word.find_first_not_of('-'), word.size()));
}

}  // namespace

std::string_view CanonicalTypeWord(std::string_view word) {
    if (word == "real") return "float";
    if (word == "dict") return "dictionary";
    return word;
}

bool SplitClause(std::string_view text, std::vector<std::string>& words, std::string& error) {
    words.clear();
    bool inWord = false;
    char quote = '\0';
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = '\0';
            else
                words.back().push_back(c);
            continue;
        }
        if (quote == '"' && c == '"') {
            quote = '\0';
            continue;
        }
        if (!quote && (c == ' ' || c == '\t' || c == '\n')) {
            inWord = false;
            continue;
        }
        if (!inWord) words.emplace_back();
        inWord = true;
        if (!quote && (c == '\'' || c == '"')) {
            quote = c;
        } else if (c == '\\' && (!quote || (i + 1 < text.size() &&
                                            (text[i + 1] == '"' || text[i + 1] == '\\')))) {
            if (++i == text.size()) {
                error = "a backslash ends it";
                return false;
            }
            words.back().push_back(text[i]);
        } else {
            words.back().push_back(c);
        }
    }
    if (quote) error = std::string("a ") + quote + " is not closed";
    return !quote;
}

std::string Suggestion(std::string_view word, const std::vector<std::string_view>& choices) {
    // One or two letters are too few to tell a slip from another word.
    const std::string_view bare = WithoutDashes(word);
    if (bare.size() < 3) return {};
    std::string_view best, onlyStart;
    size_t bestDistance = SIZE_MAX, starts = 0;
    for (std::string_view choice : choices) {
        // A dash more or less counts as one slip: -append for --append, --float for -float.
        const size_t dashes = choice.size() - WithoutDashes(choice).size();
        const size_t wordDashes = word.size() - bare.size();
        const size_t distance = EditDistance(bare, WithoutDashes(choice)) + (dashes != wordDashes);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = choice;
        }
        if (WithoutDashes(choice).starts_with(bare)) {
            ++starts;
            onlyStart = choice;
        }
    }
    const size_t allowed = bare.size() <= 4 ? 1 : 2;
    if (bestDistance > 0 && bestDistance <= allowed)
        return " (did you mean " + std::string(best) + "?)";
    if (starts == 1) return " (did you mean " + std::string(onlyStart) + "?)";
    return {};
}
