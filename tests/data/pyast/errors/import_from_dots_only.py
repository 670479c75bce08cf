from . import
