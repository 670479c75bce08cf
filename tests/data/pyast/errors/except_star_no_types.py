try:
 pass
except*:
 pass
