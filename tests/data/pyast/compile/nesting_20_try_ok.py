try:
    try:
        try:
            try:
                try:
                    try:
                        try:
                            try:
                                try:
                                    try:
                                        try:
                                            try:
                                                try:
                                                    try:
                                                        try:
                                                            try:
                                                                try:
                                                                    try:
                                                                        try:
                                                                            try:
                                                                                pass
                                                                            except E:
                                                                                pass
                                                                        except E:
                                                                            pass
                                                                    except E:
                                                                        pass
                                                                except E:
                                                                    pass
                                                            except E:
                                                                pass
                                                        except E:
                                                            pass
                                                    except E:
                                                        pass
                                                except E:
                                                    pass
                                            except E:
                                                pass
                                        except E:
                                            pass
                                    except E:
                                        pass
                                except E:
                                    pass
                            except E:
                                pass
                        except E:
                            pass
                    except E:
                        pass
                except E:
                    pass
            except E:
                pass
        except E:
            pass
    except E:
        pass
except E:
    pass
