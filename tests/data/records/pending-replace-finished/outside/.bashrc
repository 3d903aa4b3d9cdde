echo a start-up file
