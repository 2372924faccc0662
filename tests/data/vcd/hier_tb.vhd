-- Two levels of hierarchy and femtosecond delays, for the VCD importer's scope and rounding tests.
library ieee;
use ieee.std_logic_1164.all;

entity hier_child is
    port (d : in std_logic; q : out std_logic_vector(1 downto 0));
end entity;

architecture rtl of hier_child is
    signal inner : std_logic := '0';
begin
    inner <= d after 1500 fs;
    q <= inner & d;
end architecture;

library ieee;
use ieee.std_logic_1164.all;

entity hier_tb is
end entity;

architecture sim of hier_tb is
    signal stim : std_logic := '0';
    signal result : std_logic_vector(1 downto 0);
begin
    stim <= '1' after 10 ps, '0' after 20 ps, 'Z' after 30 ps;
    u_child : entity work.hier_child port map (d => stim, q => result);
end architecture;
