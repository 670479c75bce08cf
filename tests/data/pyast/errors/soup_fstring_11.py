. . ( | }" pass << type = = }" elif as f"{ := "s" else t"{y}" async else ~ elif + case ^ y pass global def [ * def finally y
