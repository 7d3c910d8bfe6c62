/* A block comment is a head too. */
int heads_fixture_block;
