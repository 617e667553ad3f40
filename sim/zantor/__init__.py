"""Parts of the ZANTOR controller simulator."""
