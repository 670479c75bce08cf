from a import (b as 1)
