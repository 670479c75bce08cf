, ** << [ >> == elif del b'b' == as : f"{x}" & } { | = "s" -> { yield
