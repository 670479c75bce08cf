class C[T: ((x := 1), int)]: pass
