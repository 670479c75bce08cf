def f[T: int, *Ts, **P](x: T) -> T:
    return x
class C[T = int]:
    def m(self) -> T: ...
type L[T] = list[T]
