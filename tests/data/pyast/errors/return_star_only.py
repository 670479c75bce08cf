return *
