x = await
