# Smallest transaction: one screen, then the end of the channel.
form dFmsgo fmt=CUST text="HELLO" count=1
expect dFmsgo
end
