class A[]: pass
