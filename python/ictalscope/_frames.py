"""pandas, imported only when a table is turned into a DataFrame."""


def pandas():
    try:
        import pandas as pd
    except ImportError as missing:
        raise ImportError("to_pandas() needs pandas (Debian: apt-get install python3-pandas)") \
            from missing
    return pd
