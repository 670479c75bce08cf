assert
