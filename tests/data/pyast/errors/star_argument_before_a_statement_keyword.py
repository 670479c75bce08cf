f(* pass args)
