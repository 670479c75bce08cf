<< #c
 ^ del raise await not // >> < or ... from def 
 , and -> return + x f"{x}" class if class << from \

