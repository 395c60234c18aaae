# Property-list readers and writer.
target_sources(Platform PRIVATE)
