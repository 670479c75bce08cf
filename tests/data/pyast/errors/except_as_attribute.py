try:
 pass
except E as e.x:
 pass
