x: int = yield
