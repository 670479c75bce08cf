fob = ob if isinstance(ob, types.MethodType MethodType) else ob
