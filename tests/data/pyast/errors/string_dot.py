'abc'.
