x = "é"; return 1
