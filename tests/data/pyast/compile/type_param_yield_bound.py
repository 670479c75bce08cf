type A[T: (yield)] = int
