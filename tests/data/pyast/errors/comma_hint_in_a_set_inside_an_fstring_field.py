code = f'2 {0{x y}} 3'
