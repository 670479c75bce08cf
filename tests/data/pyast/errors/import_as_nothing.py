import a.b as
