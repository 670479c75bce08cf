yield // } pass % | += ] in and break finally f 
         ) elif }" . [ x #c
 f"{x}" f"{ }" 
 ~ << for del +=
