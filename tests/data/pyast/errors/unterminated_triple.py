x = '''abc
