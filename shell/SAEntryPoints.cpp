// Placeholder until the shell lands: the bundle needs at least one source to link.
