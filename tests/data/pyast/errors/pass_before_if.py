pass if x else y
