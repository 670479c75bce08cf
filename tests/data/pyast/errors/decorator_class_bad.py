@dec
class
