+ := > -> [ / if 
     : 3j nonlocal t"{y}" f"{ ... < -> f"{ // % assert == except ** f"{ elif % def = 2.5 None := try == 
     == == type lambda
