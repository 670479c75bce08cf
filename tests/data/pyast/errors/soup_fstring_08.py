break import as #c
 lambda in while case from >> | for ) with 2.5 }" ... * [ // for [ + with from ... -> finally \
 f class async f"{x}" 
 += is
