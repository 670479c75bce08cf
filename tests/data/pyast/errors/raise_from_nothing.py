raise x from
