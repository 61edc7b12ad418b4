# Paint MENU1, wait for the operator's transmit, show some character-mode
# output, then end the channel.
form dFmsgi fmt=MENU1 text="1ACME LTD            000012345" cap=200 cb.wait=300 cb.sysname=ZENDRA areaa="Type a choice and transmit" count=1
expect dFmsgi fmt=MENU1
pseudo "Order list follows\r\n  1  widgets\r\n  2  gadgets\r\n"
form dFmsgo fmt=CUST text="JOHN SMITH" count=1
expect dFmsgo fmt=CUST
end
