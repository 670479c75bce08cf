g = lambda v=a, x=, *, y=c: None
