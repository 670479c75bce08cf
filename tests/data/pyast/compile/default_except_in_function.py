def f():
    try:
        pass
    except:
        pass
    except ValueError as e:
        pass
    finally:
        pass
