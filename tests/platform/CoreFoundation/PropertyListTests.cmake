# Property-list reader and writer tests (golden, corpus, round trip).
