from x import a,
