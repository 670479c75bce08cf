# nothing here

   # indented comment
