class C((yield)):
    return 1
