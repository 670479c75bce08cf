match ( else
