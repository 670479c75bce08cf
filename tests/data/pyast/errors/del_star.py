del *a
