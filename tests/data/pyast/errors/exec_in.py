exec 'x' in d
