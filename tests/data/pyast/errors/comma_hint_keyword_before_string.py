__all__ = ('a',  True 'b')
