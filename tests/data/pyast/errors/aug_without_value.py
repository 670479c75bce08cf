1 += assert
