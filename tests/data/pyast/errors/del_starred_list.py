del [*a]
