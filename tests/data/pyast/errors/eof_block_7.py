class A:
  def f():
