# Functions with known decision points, for the complexity figures and ratings.


def simple():
    return 1


def branches(x, y):
    if x:
        return 1
    elif y:
        return 2
    else:
        return 3


def loops(items):
    result = []
    for item in items:
        while item > 0:
            item -= 1
            if item % 2 and item % 3 and item % 5:
                result.append(item)
    return [r for r in result if r] + [s for s in result for t in range(s)]


def handlers(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""
    except (PermissionError, IsADirectoryError):
        return None
    finally:
        print("done")


def busy(a, b, c, d):
    assert a or b
    if a and (b or c):
        pass
    if b:
        pass
    if c:
        pass
    if d:
        pass
    if a and b and c and d:
        pass
    squares = {x: x * x for x in range(10)}
    evens = {x for x in range(10) if x % 2 == 0}
    total = sum(x for x in range(10))
    for k in squares:
        if k in evens:
            continue
    while total > 0:
        total -= 1
    return a if b else c


def outer():
    def middle():
        def inner():
            if True:
                return [i for i in range(3)]
        return inner()
    return middle() or None


class Holder:
    def method(self):
        match self:
            case 1:
                return 1
            case _:
                return 2

    async def agen(self):
        async for x in self.source():
            if x:
                yield x
