type A = await x
