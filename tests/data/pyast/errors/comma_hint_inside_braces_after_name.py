a {b c}
