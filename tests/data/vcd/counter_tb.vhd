library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity counter_tb is
end entity;

architecture sim of counter_tb is
    signal clk   : std_logic := '0';
    signal rst   : std_logic := '1';
    signal count : std_logic_vector(7 downto 0) := (others => 'U');
    signal up    : std_logic_vector(0 to 3) := "ZZZZ";
    signal n     : integer := 0;
    signal r     : real := 0.0;
    signal b     : bit := '0';
    signal flag  : boolean := false;
    signal weak  : std_logic := 'H';
begin
    clk <= not clk after 5 ns when now < 200 ns else '0';
    rst <= '0' after 12 ns;
    weak <= 'L' after 33 ns, 'W' after 44 ns, '-' after 55 ns, 'X' after 66 ns;
    process (clk)
    begin
        if rising_edge(clk) then
            if rst = '1' then
                count <= (others => '0');
                n <= -3;
            else
                count <= std_logic_vector(unsigned(count) + 1);
                n <= n + 1;
                r <= r + 0.5;
                b <= not b;
                flag <= not flag;
                up <= count(3 downto 0);
            end if;
        end if;
    end process;
end architecture;
