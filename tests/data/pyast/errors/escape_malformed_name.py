x = 'a \N escapes'
