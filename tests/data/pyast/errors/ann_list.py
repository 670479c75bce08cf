[a]: int
