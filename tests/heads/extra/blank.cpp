
// A blank line first.
