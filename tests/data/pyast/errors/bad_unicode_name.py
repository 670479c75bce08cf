x = '\N{NOT A NAME}'
