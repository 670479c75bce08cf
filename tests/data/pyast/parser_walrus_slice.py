# A parenthesised walrus as a slice bound.
x = a[(w := c)::b], a[(w := 1):(v := 2)]
