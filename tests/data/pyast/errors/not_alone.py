not
