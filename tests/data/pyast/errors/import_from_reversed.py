import a from b
