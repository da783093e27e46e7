// Placeholder so the library has a source until the jobs land.
