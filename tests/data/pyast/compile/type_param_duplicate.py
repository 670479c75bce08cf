class C[T, T]: pass
