// load --pretty: the one-line notation broken after every container's opening bracket and
// item separator, so that each item stands on its own line, indented by its depth.
#include "tools/cli/ToolSupport.h"

std::string PrettyNotation(std::string_view line) {
    std::string out;
    out.reserve(line.size() + line.size() / 4);
    int depth = 0;
    auto newline = [&] {
        out.push_back('\n');
        out.append(static_cast<size_t>(2 * depth), ' ');
    };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' || c == '\'') {
            // A string or a code: copied whole, escapes included.
            const size_t start = i++;
            while (i < line.size() && line[i] != c) i += line[i] == '\\' ? 2 : 1;
            out.append(line.substr(start, i - start + 1));
            continue;
        }
        const bool open = c == '[' || c == '{';
        if (open && i + 1 < line.size() && (line[i + 1] == ']' || line[i + 1] == '}')) {
            out.append(line.substr(i, 2));  // an empty container stays on its line
            ++i;
            continue;
        }
        if (open) {
            out.push_back(c);
            ++depth;
            newline();
        } else if (c == ']' || c == '}') {
            --depth;
            newline();
            out.push_back(c);
        } else if (c == ',' && depth > 0 && i + 1 < line.size() && line[i + 1] == ' ') {
            out.push_back(',');
            ++i;
            newline();
        } else {
            out.push_back(c);
        }
    }
    return out;
}
