# Structural pattern matching in its forms.
match command.split():
    case [action]:
        pass
    case [action, obj]:
        pass
    case Point(x=0, y=0):
        print("Origin")
    case Point(1, 2, z=3) | Vec.Zero():
        ...
    case [Point(x=0, y=0), *rest] if rest:
        pass
    case {"x": x, "y": y, **others}:
        pass
    case {1: _, -2.5: [], 3 + 4j: (), None: a.b.c}:
        pass
    case (1 | 2 | 3) as n:
        pass
    case -1 - 2j | b"x" | "a" "b" | True | False | None:
        pass
    case [*_, last] | (first, *_):
        pass
    case 0x1F, *others,:
        pass
    case _:
        pass
match = 1
match(x)
match[y] = 2
match x, *y:
    case {}: pass
    case {**kw}: pass
    case (): pass
    case []: pass
    case ((a)): pass
    case Color.RED if x > 1: pass
match -x:
    case str() | bytes(): pass
case = 3
type = 5
type X = int
type Y[T, *Ts, **P] = tuple[T, *Ts]
type Z[T: (int, str) = int] = list[T]
print(type(x), match.group(1))
