f"{ del ; None f"{x}" }" def ^ ) True or as 3j > & match pass
