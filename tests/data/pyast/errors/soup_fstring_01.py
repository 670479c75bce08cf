except * { lambda lambda x f"{x}" raise as - elif : nonlocal t"{y}" ] from @ lambda try << & is _ & > for t"{y}" for None from t"{y}" ^ * @ ( ~ lambda case f %
