bt'x'
