def f() -> : pass
