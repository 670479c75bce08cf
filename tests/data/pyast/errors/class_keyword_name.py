class if: pass
