. def from / del None 1 ] global def y -> f"{x}" or pass }" class break for in 2.5 \
 while << 
     - import except % None global - in 1 nonlocal while case
