int heads_fixture_code;
