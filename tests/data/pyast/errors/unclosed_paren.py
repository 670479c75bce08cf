foo(1, 2
