global a,
