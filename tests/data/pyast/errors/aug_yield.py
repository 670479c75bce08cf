x += yield
