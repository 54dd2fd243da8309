// The body of a layer's link check: the DLL takes every object of its layer's library whole
// and nothing else of its own.
